// The program's data directory and the small file helpers the windows share around exports: cutting an
// extension and handing a page or an address to the desktop (through the platform's shell seam).
#pragma once

#include <QString>
#include <functional>
#include <string>

namespace app {

// The data directory, always ending with "/": the executable's directory unless SetAppDir chose
// another. Files are named GetAppDir() + name.
QString GetAppDir();
// Makes dir the data directory for the rest of the run ("/" is added when missing); an empty dir goes
// back to the executable's directory. Tests point it at a scratch directory.
void SetAppDir(const QString& dir);
// Run by SetAppDir before the directory changes: what holds files of the old one open lets go of them
// (the data library's kept tables). Empty until set.
std::function<void()>& AppDirChangeHook();

// The folder (ending "/") exists and refuses the creation of a file in it: a read-only folder or
// file system, or one this user may not write. Answered by creating and removing a file of its own;
// false for a folder that takes it, and for any other failure, which the start then meets and reports.
bool FolderRefusesWrites(const std::string& folder);

// The name without its extension: the text before the last "." that is not the name's last character;
// a name without such a "." is returned unchanged ("a.b.htm" gives "a.b", "page" gives "page").
QString StripExtension(const QString& fileName);

// Opens a file with the desktop's default program (as a file:// URL); true when the open started.
bool ShellOpenFile(const QString& path);
// Opens a web address in the desktop's browser; true when the open started.
bool OpenInBrowser(const QString& address);

}  // namespace app
