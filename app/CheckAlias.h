#pragma once

// Makes sure the database engine knows the alias under which the catalogue is reached, creating
// it (and, when there is none yet, a new catalogue file) when it is missing. False after telling
// the user, when that cannot be done.
bool CheckDatabaseAlias();
