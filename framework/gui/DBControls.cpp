#include "DBControls.h"

#include "ErrorHandlers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QTextCursor>
#include <algorithm>

namespace {

// Keys that would change a control's text: they are the moment editing has to start.
bool IsModifyingKey(const QKeyEvent *event, bool multiLine)
{
    static const QKeySequence::StandardKey editing[] = {
        QKeySequence::Paste,
        QKeySequence::Cut,
        QKeySequence::Undo,
        QKeySequence::Redo,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine,
    };
    for (QKeySequence::StandardKey key : editing)
        if (event->matches(key))
            return true;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return multiLine;
    default:
        break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

// Starts editing for a key that changes the text; false when the key has to be refused.
bool BeginEdit(TFieldDataLink &link)
{
    bool editing = false;
    Guarded([&] { editing = link.Edit(); });
    return editing && link.CanModify();
}

bool CanEdit(const TFieldDataLink &link)
{
    return link.Editing() && link.CanModify();
}

// The text a control starts editing with, or the text it shows while the user is elsewhere.
QString FieldText(const TField *field, bool focused, bool canModify)
{
    if (!field)
        return QString();
    if (field->DataType() == TFieldType::Memo || (focused && canModify))
        return field->Text();
    return field->DisplayText();
}

// Leaving a control writes what was typed; a value the field refuses is reported and stays in the
// control, still marked as changed, so the user can correct it.
bool UpdateRecordOnExit(TFieldDataLink &link, const QFocusEvent *event)
{
    // A context menu or another window taking the focus is no leaving of the control.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return false;
    return Guarded([&] { link.UpdateRecord(); });
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDBEdit

TDBEdit::TDBEdit(QWidget *parent) : QLineEdit(parent)
{
    FDataLink.OnDataChange = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { DataChange(); }, this);
    FDataLink.OnEditingChange =
        TEvent<TFieldDataLink *>([this](TFieldDataLink *) { UpdateReadOnly(); }, this);
    FDataLink.OnActiveChange = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { UpdateReadOnly(); }, this);
    FDataLink.OnUpdateData =
        TEvent<TFieldDataLink *>([this](TFieldDataLink *link) { link->Field()->SetAsString(text()); }, this);
    connect(this, &QLineEdit::textEdited, this, [this] { FDataLink.Modified(); });
    UpdateReadOnly();
}

void TDBEdit::SetDataSource(TDataSource *value)
{
    FDataLink.SetDataSource(value);
    UpdateReadOnly();
}

void TDBEdit::SetDataField(const QString &value)
{
    FDataLink.SetFieldName(value);
    UpdateReadOnly();
}

void TDBEdit::SetReadOnly(bool value)
{
    FDataLink.SetReadOnly(value);
    UpdateReadOnly();
}

void TDBEdit::UpdateReadOnly()
{
    setReadOnly(!CanEdit(FDataLink));
}

void TDBEdit::DataChange()
{
    const TField *field = FDataLink.Field();
    setMaxLength(field && field->DataType() == TFieldType::String && field->Size() > 0 ? field->Size()
                                                                                       : 32767);
    setAlignment((field && field->IsNumeric() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    const QString value = FieldText(field, FFocused, FDataLink.CanModify());
    // Setting the same text again would only move the cursor the user placed.
    if (value != text())
        setText(value);
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // The first Escape takes back the typing; with nothing to take back it goes to the form.
        if (FDataLink.IsModified()) {
            FDataLink.Reset();
            selectAll();
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (IsModifyingKey(event, false) && !BeginEdit(FDataLink)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TDBEdit::focusInEvent(QFocusEvent *event)
{
    FFocused = true;
    // Text refused on leaving is still the user's, to be corrected.
    if (!FDataLink.IsModified())
        DataChange();
    QLineEdit::focusInEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    if (UpdateRecordOnExit(FDataLink, event)) {
        FFocused = false;
        DataChange();
    }
    QLineEdit::focusOutEvent(event);
}

// ---------------------------------------------------------------------------------------------
// TDBMemo

namespace {

struct TMemoView
{
    QString Text;
    bool Shortened = false;
    bool Symbols = false;
    bool LongRun = false;
};

// Word wrapping searches each run without a break for a place to break it, which grows much
// faster than the run; past this length a text wraps anywhere instead.
constexpr qsizetype LongestWrappedRun = 512;

bool IsControl(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7F;
}

TMemoView MemoView(const QString &value, bool whole)
{
    TMemoView view;
    qsizetype length = value.size();
    if (!whole && length > TDBMemo::ShownLimit) {
        length = TDBMemo::ShownLimit;
        // Never half a surrogate pair.
        if (value.at(length - 1).isHighSurrogate())
            --length;
        view.Shortened = true;
    }
    view.Text = view.Shortened ? value.left(length) : value;
    qsizetype run = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = view.Text.at(i).unicode();
        if (IsControl(c)) {
            // The Control Pictures block has a symbol for each; DEL's is U+2421.
            view.Text[i] = QChar(c == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + c));
            view.Symbols = true;
        }
        run = QChar::isSpace(c) ? 0 : run + 1;
        view.LongRun = view.LongRun || run > LongestWrappedRun;
    }
    return view;
}

} // namespace

TDBMemo::TDBMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setLineWrapMode(WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FDataLink.OnDataChange = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { DataChange(); }, this);
    FDataLink.OnEditingChange =
        TEvent<TFieldDataLink *>([this](TFieldDataLink *) { UpdateReadOnly(); }, this);
    FDataLink.OnActiveChange = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { UpdateReadOnly(); }, this);
    FDataLink.OnUpdateData = TEvent<TFieldDataLink *>(
        [this](TFieldDataLink *link) {
            // What is shown of a capped text is never the text to store.
            if (!FCapped)
                link->Field()->SetAsString(toPlainText());
        },
        this);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!FLoading)
            FDataLink.Modified();
    });
    FNotice = new QLabel(this);
    FNotice->setObjectName(QStringLiteral("MemoNotice"));
    FNotice->setTextFormat(Qt::RichText);
    FNotice->setAutoFillBackground(true);
    FNotice->setContentsMargins(4, 0, 4, 0);
    FNotice->hide();
    connect(FNotice, &QLabel::linkActivated, this, [this] { Guarded([this] { ShowAll(); }); });
    UpdateReadOnly();
}

void TDBMemo::ShowAll()
{
    const TField *field = FDataLink.Field();
    if (!field || !FCapped)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore
    {
        ~TRestore() { QApplication::restoreOverrideCursor(); }
    } restore;
    FShownWhole = field->Text();
    DataChange();
}

void TDBMemo::UpdateNotice(bool shortened, bool symbols)
{
    QString text;
    if (shortened)
        text = tr("Only the first %1 characters are shown.").arg(QLocale().toString(ShownLimit)) +
               QStringLiteral(" <a href=\"all\">") + tr("Show all") + QStringLiteral("</a>");
    else if (symbols)
        text = tr("Control characters are shown as symbols; the text cannot be edited here.");
    if (text == FNotice->text())
        return;
    FNotice->setText(text);
    FNotice->setVisible(!text.isEmpty());
    setViewportMargins(0, 0, 0, text.isEmpty() ? 0 : FNotice->sizeHint().height());
    const QRect area = viewport()->geometry();
    FNotice->setGeometry(area.left(), area.bottom() + 1, area.width(), FNotice->sizeHint().height());
}

void TDBMemo::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    if (FNotice->isVisible()) {
        const QRect area = viewport()->geometry();
        FNotice->setGeometry(area.left(), area.bottom() + 1, area.width(), FNotice->sizeHint().height());
    }
}

void TDBMemo::SetDataSource(TDataSource *value)
{
    FDataLink.SetDataSource(value);
    UpdateReadOnly();
}

void TDBMemo::SetDataField(const QString &value)
{
    FDataLink.SetFieldName(value);
    UpdateReadOnly();
}

void TDBMemo::SetReadOnly(bool value)
{
    FDataLink.SetReadOnly(value);
    UpdateReadOnly();
}

void TDBMemo::SetWordWrap(bool value)
{
    setLineWrapMode(value ? WidgetWidth : NoWrap);
    setHorizontalScrollBarPolicy(value ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
}

void TDBMemo::UpdateReadOnly()
{
    const bool readOnly = FCapped || !CanEdit(FDataLink);
    setReadOnly(readOnly);
    // The user moves about a read-only text as in any other, and typing starts where the cursor is.
    if (readOnly)
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void TDBMemo::DataChange()
{
    const QString value = FieldText(FDataLink.Field(), FFocused, FDataLink.CanModify());
    const bool whole = !FShownWhole.isNull() && value == FShownWhole;
    if (!whole)
        FShownWhole.clear();
    TMemoView view = MemoView(value, whole);
    const bool capped = view.Shortened || view.Symbols;
    if (capped != FCapped) {
        FCapped = capped;
        UpdateReadOnly();
    }
    if (view.Text != toPlainText()) {
        // A value read again while the user is in the control (as editing starts) must not move
        // the cursor the user placed: the key that started editing lands where the user put it.
        const int position = FFocused ? textCursor().position() : 0;
        const QTextOption::WrapMode wrap =
            view.LongRun ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
        FLoading = true;
        // The old text goes first, so that it is never laid out again under the new wrapping.
        if (wrap != wordWrapMode()) {
            clear();
            setWordWrapMode(wrap);
        }
        setPlainText(view.Text);
        FLoading = false;
        if (position > 0) {
            QTextCursor cursor = textCursor();
            cursor.setPosition(std::min(position, int(document()->characterCount() - 1)));
            setTextCursor(cursor);
        }
    }
    UpdateNotice(view.Shortened, view.Symbols);
}

void TDBMemo::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (FDataLink.IsModified()) {
            FDataLink.Reset();
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (IsModifyingKey(event, true) && (FCapped || !BeginEdit(FDataLink))) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TDBMemo::focusInEvent(QFocusEvent *event)
{
    FFocused = true;
    if (!FDataLink.IsModified())
        DataChange();
    QPlainTextEdit::focusInEvent(event);
}

void TDBMemo::focusOutEvent(QFocusEvent *event)
{
    if (UpdateRecordOnExit(FDataLink, event)) {
        FFocused = false;
        DataChange();
    }
    QPlainTextEdit::focusOutEvent(event);
}

// ---------------------------------------------------------------------------------------------
// TDBText

TDBText::TDBText(QWidget *parent) : QLabel(parent)
{
    // A field's text is shown as it stands, never read as markup.
    setTextFormat(Qt::PlainText);
    FDataLink.OnDataChange = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { DataChange(); }, this);
}

void TDBText::SetDataSource(TDataSource *value)
{
    FDataLink.SetDataSource(value);
}

void TDBText::SetDataField(const QString &value)
{
    FDataLink.SetFieldName(value);
}

void TDBText::DataChange()
{
    const TField *field = FDataLink.Field();
    setText(field ? field->DisplayText() : QString());
}

// ---------------------------------------------------------------------------------------------
// TDBCheckBox

namespace {

QStringList CheckTexts(const QString &values)
{
    QStringList texts = values.split(u';');
    for (QString &text : texts)
        text = text.trimmed();
    return texts;
}

} // namespace

TDBCheckBox::TDBCheckBox(QWidget *parent) : QCheckBox(parent)
{
    FDataLink.OnDataChange = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { DataChange(); }, this);
    FDataLink.OnUpdateData = TEvent<TFieldDataLink *>([this](TFieldDataLink *) { UpdateData(); }, this);
    DataChange();
}

void TDBCheckBox::SetDataSource(TDataSource *value)
{
    FDataLink.SetDataSource(value);
}

void TDBCheckBox::SetDataField(const QString &value)
{
    FDataLink.SetFieldName(value);
}

void TDBCheckBox::SetReadOnly(bool value)
{
    FDataLink.SetReadOnly(value);
}

void TDBCheckBox::SetValueChecked(const QString &value)
{
    if (FValueChecked == value)
        return;
    FValueChecked = value;
    DataChange();
}

void TDBCheckBox::SetValueUnchecked(const QString &value)
{
    if (FValueUnchecked == value)
        return;
    FValueUnchecked = value;
    DataChange();
}

Qt::CheckState TDBCheckBox::FieldState() const
{
    const TField *field = FDataLink.Field();
    if (!field)
        return Qt::Unchecked;
    if (field->IsNull())
        return Qt::PartiallyChecked;
    if (field->DataType() == TFieldType::Boolean)
        return field->AsBoolean() ? Qt::Checked : Qt::Unchecked;
    const QString text = field->Text();
    if (CheckTexts(FValueChecked).contains(text, Qt::CaseInsensitive))
        return Qt::Checked;
    if (CheckTexts(FValueUnchecked).contains(text, Qt::CaseInsensitive))
        return Qt::Unchecked;
    return Qt::PartiallyChecked;
}

void TDBCheckBox::DataChange()
{
    setCheckState(FieldState());
}

void TDBCheckBox::UpdateData()
{
    TField *field = FDataLink.Field();
    switch (checkState()) {
    case Qt::PartiallyChecked:
        field->Clear();
        break;
    case Qt::Checked:
    case Qt::Unchecked: {
        const bool checked = checkState() == Qt::Checked;
        if (field->DataType() == TFieldType::Boolean)
            field->SetAsBoolean(checked);
        else
            field->SetAsString(CheckTexts(checked ? FValueChecked : FValueUnchecked).constFirst());
        break;
    }
    }
}

void TDBCheckBox::nextCheckState()
{
    if (!BeginEdit(FDataLink))
        return;
    switch (checkState()) {
    case Qt::Unchecked:
        setCheckState(FAllowGrayed ? Qt::PartiallyChecked : Qt::Checked);
        break;
    case Qt::Checked:
        setCheckState(Qt::Unchecked);
        break;
    case Qt::PartiallyChecked:
        setCheckState(Qt::Checked);
        break;
    }
    FDataLink.Modified();
}

void TDBCheckBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && FDataLink.IsModified()) {
        FDataLink.Reset();
        event->accept();
        return;
    }
    QCheckBox::keyPressEvent(event);
}

void TDBCheckBox::focusOutEvent(QFocusEvent *event)
{
    UpdateRecordOnExit(FDataLink, event);
    QCheckBox::focusOutEvent(event);
}
