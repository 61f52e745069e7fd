#ifndef STAGEDPDF_H
#define STAGEDPDF_H

#include "filefailure.h"

#include <QString>

// A PDF printed beside its target under a temporary name and put in place only once it is
// complete, so that a failure at any step leaves the previous file as it was. The temporary
// file is removed unless it was committed.
class StagedPdf
{
public:
    explicit StagedPdf(const QString &target);
    ~StagedPdf();
    StagedPdf(const StagedPdf &) = delete;
    StagedPdf &operator=(const StagedPdf &) = delete;

    // Creates the temporary file; false when it cannot be created.
    bool open();
    // Where to print, once open() succeeded.
    QString temporaryPath() const { return m_partial; }
    // Puts the printed file in place of the target; false, and the temporary file removed,
    // when it is not a complete PDF or cannot be renamed.
    bool commit();
    // Removes the temporary file.
    void discard();
    // Why open() or commit() failed.
    FileFailure failure() const { return m_failure; }
    // Records a failure of the printing between open() and commit().
    void fail(const FileFailure &failure) { m_failure = failure; }

private:
    QString m_target;
    QString m_partial;
    FileFailure m_failure;
};

#endif // STAGEDPDF_H
