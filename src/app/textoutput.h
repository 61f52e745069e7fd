#ifndef TEXTOUTPUT_H
#define TEXTOUTPUT_H

#include "filefailure.h"
#include "stagedfile.h"

#include <QByteArray>
#include <QString>

// One text output of an export (CSV or JSON): staged beside its target (see StagedFile) until
// everything else is written, written into a stream (a FIFO, a device, a descriptor) once
// everything is printed, or held for standard output ("-").
class TextOutput
{
public:
    // prefix (a byte-order mark) goes before the content in files and streams, not on standard
    // output, where the text may be one part of a pipeline.
    TextOutput(const QString &path, const QByteArray &content,
               const QByteArray &prefix = QByteArray());

    QString path() const { return m_path; }
    // What goes to standard output.
    QByteArray content() const { return m_content; }
    bool toStandardOutput() const { return m_path == QLatin1String("-"); }
    bool isDirect() const { return m_file.isDirect(); }
    QString notice() const { return m_file.notice(); }
    FileFailure failure() const { return m_file.failure(); }

    // Opens the target and, unless it is a stream, writes the whole content into its staged
    // file.
    bool open();
    // Writes the content into a stream; nothing for a staged file.
    bool stream();
    // Makes a staged file durable, ready to replace the target.
    bool prepare();
    // Puts a staged file in place of the target.
    bool commit();

private:
    QString m_path;
    QByteArray m_content;
    QByteArray m_prefix;
    StagedFile m_file;
};

#endif // TEXTOUTPUT_H
