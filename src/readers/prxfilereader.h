#ifndef PRXFILEREADER_H
#define PRXFILEREADER_H

#include "filereaderbyregular.h"

// The PRX product's log: a run lasts from the UI plug-in's start-up line to its shutdown
// line, and a "set User" line inside the run names the user, dongle and product type in JSON.
class PrxFileReader : public FileReaderByRegular
{
public:
    UsageTable buildUsageTable(const QVector<LogEvent> &events) const override;
    QString runStartPattern() const override;
    QString runEndPattern() const override;
    QString userSetPattern() const override;
    QString linePattern() const override;
    qint32 dateCaptureIndex() const override;
    qint32 timeCaptureIndex() const override;
    qint32 messageCaptureIndex() const override;

    // The JSON text of a user-set message: from its first "{" to its last "}"; a null text
    // when the message holds no such pair with something between.
    static QString jsonText(const QString &message);
};

#endif // PRXFILEREADER_H
