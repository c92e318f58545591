#pragma once

#include <QString>

namespace tabulon {

// The Save dialog. `filter` is in the pipe form "Text Files (*.txt)|*.txt"; the answer is the
// chosen path as the person gave it, or the empty text when the dialog was cancelled. A file
// that exists is never chosen silently: the dialog asks whether to replace it, and "No" leaves
// the person in the dialog to choose again (or cancel).
class FileChooser {
public:
    virtual ~FileChooser() = default;
    virtual QString chooseSaveFile(const QString& title, const QString& filter,
                                   const QString& initialName) = 0;
    // The folder a first Save dialog offers: the person's documents folder, made when it is
    // missing; the home folder when it cannot be.
    virtual QString documentsFolder() = 0;
};

// "Text Files (*.txt)|*.txt|All (*.*)|*.*" -> "Text Files (*.txt);;All (*.*)"
QString qtFilterFromPipeFilter(const QString& pipeFilter);

} // namespace tabulon
