#pragma once

// Opens the library database at start-up (DB_Open). On failure shows the
// modal "Cannot open database" box with its Cancel button and returns the
// SQLite code once the user closed it; the program then exits with -1.
// 0 when the library is open. GUI thread, before the main window exists.
int OpenLibraryDatabase();
