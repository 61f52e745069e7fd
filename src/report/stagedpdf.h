#ifndef STAGEDPDF_H
#define STAGEDPDF_H

#include "filefailure.h"
#include "stagedfile.h"

#include <QString>

// A PDF printed under a temporary name (see StagedFile) and put in place only once it is
// complete, so that a failure at any step leaves the previous file as it was. The temporary
// file is removed unless it was committed.
class StagedPdf
{
public:
    explicit StagedPdf(const QString &target);

    // Creates the temporary file; false when it cannot be created.
    bool open();
    // Where to print, once open() succeeded.
    QString temporaryPath() const { return m_file.temporaryPath(); }
    // Puts the printed file in place of the target; false, and the temporary file removed,
    // when it is not a complete PDF or cannot be put in place.
    bool commit();
    // Removes the temporary file.
    void discard() { m_file.discard(); }
    // Why open() or commit() failed.
    FileFailure failure() const { return m_file.failure(); }
    // Records a failure of the printing between open() and commit().
    void fail(const FileFailure &failure) { m_file.fail(failure); }

private:
    QString m_target;
    StagedFile m_file;
};

#endif // STAGEDPDF_H
