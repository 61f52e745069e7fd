#ifndef PDFREADER_H
#define PDFREADER_H

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

// Reads produced reports back with poppler's command-line tools, as a reader of the file would
// see them.
class PdfReader
{
public:
    // The text of every page, laid out as on the page; empty when the file is no PDF.
    static QString text(const QString &path)
    {
        return run(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), path, QStringLiteral("-")});
    }

    // The "Page size:" line of pdfinfo, e.g. "595 x 842 pts (A4)".
    static QString pageSize(const QString &path)
    {
        const QStringList lines = run(QStringLiteral("pdfinfo"), {path}).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.startsWith(QStringLiteral("Page size:")))
                return line.mid(10).trimmed();
        }
        return QString();
    }

    static int pageCount(const QString &path)
    {
        const QStringList lines = run(QStringLiteral("pdfinfo"), {path}).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.startsWith(QStringLiteral("Pages:")))
                return line.mid(6).trimmed().toInt();
        }
        return 0;
    }

    // Renders every page to an image file in folder, named prefix-N.ppm; the sorted file names.
    static QStringList renderPages(const QString &path, const QString &folder,
                                   const QString &prefix)
    {
        run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("72"), path, folder + QLatin1Char('/') + prefix});
        QStringList files =
            QDir(folder).entryList({prefix + QStringLiteral("-*.ppm")}, QDir::Files, QDir::Name);
        for (QString &file : files)
            file = folder + QLatin1Char('/') + file;
        return files;
    }

private:
    static QString run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            return QString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }
};

#endif // PDFREADER_H
