#pragma once

class TDatabase;
class TTable;

// Keeps an edit of an entry's description from overwriting a description that another program
// (another user of a shared catalogue) stored after the edit began. The check and the write are
// one transaction, so of two edits that began from the same text the second to be posted is
// refused with a message; its text stays in the edit, and the stored one stays as it is.
// table is over Entries with the fields ID and Description; the guard takes its AfterEdit,
// BeforePost, AfterPost and OnPostError events.
void GuardDescriptionEdits(TTable &table, TDatabase &database);
