#include "opendatabase.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "library.h"
#include "musicdb.h"

int OpenLibraryDatabase(CLibrary* library) {
    const int code = library->Open(DB_DefaultPath());
    if (code == 0) return 0;
    QMessageBox box(
        QMessageBox::Critical, QCoreApplication::translate("DB_Open", "Cannot open database"),
        QCoreApplication::translate(
            "DB_Open",
            "Unable to establish a database connection.\nThis example needs SQLite support. Please "
            "read the Qt SQL driver documentation for information how to build it.\n\nClick Cancel "
            "to exit."),
        QMessageBox::Cancel);
    box.exec();
    return code;
}
