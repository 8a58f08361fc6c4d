#pragma once

class CLibrary;

// Opens the library at start-up (CLibrary::Open of DB_DefaultPath()). On
// failure shows the modal "Cannot open database" box with its Cancel button
// and returns the SQLite code once the user closed it; the program then
// exits with -1. 0 when the library is open. GUI thread, before the main
// window exists.
int OpenLibraryDatabase(CLibrary* library);
