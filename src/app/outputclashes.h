#ifndef OUTPUTCLASHES_H
#define OUTPUTCLASHES_H

#include <QString>
#include <QStringList>

// Finds an output of an export that names a file the export also reads or writes, however the
// name is spelled: a log, the configuration, an archive and its companion files, another
// output, a name the readers would take inside a log folder, or the lock or temporary names an
// output is written through. Checked before anything is read or written: a log overwritten by
// this export's CSV would be read as that CSV by the next one.
class OutputClashes
{
public:
    // inputs: the files read (the configuration, logs); folders are log folders, read whole.
    // changed: files read and written in place (an archive): no output may name one, nor may
    // an input be one.
    OutputClashes(const QStringList &inputs, const QStringList &changed);

    // The first of outputs that clashes, and what with; false when none does.
    bool find(const QStringList &outputs, QString *output, QString *other) const;

private:
    bool clashesWithInput(const QString &output, QString *other) const;
    static bool clashesWithOutput(const QString &output, const QString &earlier);
    static bool isOwnName(const QString &name, const QString &output);

    QStringList m_inputFiles;
    QStringList m_logFolders;
    QStringList m_changed;
};

#endif // OUTPUTCLASHES_H
