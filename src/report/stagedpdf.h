#ifndef STAGEDPDF_H
#define STAGEDPDF_H

#include "filefailure.h"
#include "stagedfile.h"

#include <QString>

class QIODevice;

// A PDF of ours in the export folder, printed into a staged file that is already open (see
// StagedFile) and put in place only once it is complete, so that a failure at any step leaves
// the previous file as it was. The staged file is removed unless it was committed.
class StagedPdf
{
public:
    explicit StagedPdf(const QString &target);

    // Creates the staged file; false when it cannot be created.
    bool open();
    // Where to print, once open() succeeded.
    QIODevice *device() const { return m_file.device(); }
    // Checks that the printed file is a complete PDF and makes it durable; false, and the
    // staged file removed, when it is not. Nothing is replaced yet.
    bool prepare();
    // Puts the printed file in place of the target; false when it cannot be put in place.
    bool commit() { return m_file.commit(); }
    // Removes the staged file.
    void discard() { m_file.discard(); }
    // Why a step failed.
    FileFailure failure() const { return m_file.failure(); }
    // Records a failure of the printing between open() and prepare().
    void fail(const FileFailure &failure) { m_file.fail(failure); }
    QString notice() const { return m_file.notice(); }
    QString target() const { return m_target; }

private:
    QString m_target;
    StagedFile m_file;
};

#endif // STAGEDPDF_H
