#include "exportoutcome.h"

namespace {

// "the configuration lists A and B, which have no group of their own"
QString missingGroups(const QStringList &names)
{
    QStringList groups;
    for (const QString &name : names)
        groups << QStringLiteral("[%1]").arg(name);
    return QStringLiteral("the configuration lists %1 but has no %2 %3")
        .arg(names.join(QStringLiteral(", ")),
             names.size() == 1 ? QStringLiteral("group") : QStringLiteral("groups"),
             groups.join(QStringLiteral(", ")));
}

QString plural(int count, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

} // namespace

QString ExportOutcome::sentence() const
{
    switch (status) {
    case Written:
    case WrittenWithUnreadableLogs: {
        QString counts =
            plural(rows, QStringLiteral("row"), QStringLiteral("rows")) + QStringLiteral(", ") +
            plural(productTypes, QStringLiteral("product type"), QStringLiteral("product types"));
        if (sessions >= 0)
            counts += QStringLiteral(", ") +
                      plural(sessions, QStringLiteral("session"), QStringLiteral("sessions"));
        QString text =
            QStringLiteral("Wrote %1 (%2)").arg(writtenPaths.join(QStringLiteral(" and ")), counts);
        if (!unreadableLocations.isEmpty())
            text += QStringLiteral("; could not read %1")
                        .arg(unreadableLocations.join(QStringLiteral(", ")));
        if (!missingLocations.isEmpty())
            text +=
                QStringLiteral("; no log at %1").arg(missingLocations.join(QStringLiteral(", ")));
        if (!missingConfigs.isEmpty())
            text += QStringLiteral("; ") + missingGroups(missingConfigs);
        for (const QString &warning : warnings)
            text += QStringLiteral("; warning: %1").arg(warning);
        for (const QString &notice : notices)
            text += QStringLiteral("; note: %1").arg(notice);
        return text;
    }
    case NoConfiguration:
        return QStringLiteral("Cannot read the product configuration %1: it is missing, "
                              "unreadable or lists no products")
            .arg(path);
    case NoReader:
        return QStringLiteral("No reader is registered for product code \"%1\"; codes with a "
                              "reader: %2")
            .arg(productCode, codesWithReader.isEmpty()
                                  ? QStringLiteral("none")
                                  : codesWithReader.join(QStringLiteral(", ")));
    case NoExportFolder:
        return QStringLiteral("Export folder does not exist: %1").arg(path);
    case NotAFolder:
        return QStringLiteral("Export folder is not a folder: %1").arg(path);
    case NoLogs: {
        QStringList why;
        if (!unreadableLocations.isEmpty())
            why << QStringLiteral("could not read %1")
                       .arg(unreadableLocations.join(QStringLiteral(", ")));
        if (!missingLocations.isEmpty())
            why << QStringLiteral("looked for %1").arg(missingLocations.join(QStringLiteral(", ")));
        if (!missingConfigs.isEmpty())
            why << missingGroups(missingConfigs);
        return QStringLiteral("No log of %1 was found (%2); nothing was written")
            .arg(productCode, why.join(QStringLiteral("; ")));
    }
    case OutputIsInput:
        return QStringLiteral("Nothing was read or written: the output %1 is the same file as "
                              "%2, which this export also reads or writes")
            .arg(path, clashingPath);
    case WriteFailed: {
        QString text =
            writtenPaths.isEmpty()
                ? QStringLiteral("Could not write %1: %2").arg(failedPath, failure.reason())
                : QStringLiteral("Wrote %1, but could not write %2: %3")
                      .arg(writtenPaths.join(QStringLiteral(" and ")), failedPath,
                           failure.reason());
        if (!unchangedPaths.isEmpty())
            text += QStringLiteral("; %1 left as before")
                        .arg(unchangedPaths.join(QStringLiteral(" and ")));
        else if (writtenPaths.isEmpty())
            text += QStringLiteral("; the previous files were left as they were");
        return text;
    }
    case Cancelled:
        return QStringLiteral("Export cancelled; the previous files were left as they were");
    case SourceFailed:
    case SourceOnly:
        break;
    }
    return QString();
}
