#pragma once

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class TAnimate;
class TDBListView;
class TEntryOpener;
class TFindCount;
class THourglass;

// Searches the whole catalogue by name, volume, date, type and size; the results are the rows of
// the data module's FindDialog query, shown in a list.
class TFind : public QDialog
{
    Q_OBJECT

public:
    explicit TFind(QWidget *parent = nullptr);
    ~TFind() override;

    // Fills the type and volume choices from the catalogue, as the explorer does before a run.
    void FillChoices();

    void Button1Click();
    void Button2Click();

    QTabWidget *Pages = nullptr;
    QLineEdit *Edit1 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QLineEdit *Edit5 = nullptr; // words of the description
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QComboBox *ComboBox3 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    TAnimate *Anim1 = nullptr;
    TDBListView *Entries = nullptr;
    QStatusBar *SB2 = nullptr;

protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void SetSizeLimits(bool afterSearch);
    void DateEntered(QLineEdit *edit);
    void DateLeft(QLineEdit *edit);
    void RadioButtonClick();
    void Properties1Click();
    void EntriesAfterItemsLoading();
    void ShowFound(qint64 found);

    std::unique_ptr<THourglass> FLoadingHourglass; // while the list loads
    TFindCount *FCount = nullptr;
    TEntryOpener *FOpener = nullptr;
};
