#ifndef USAGESUMMARY_H
#define USAGESUMMARY_H

#include "producttypefigures.h"
#include "usagesessions.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// The usage answers of one product over one period: the figures of every product type, in
// key order.
struct UsageSummary
{
    QString productCode;
    // The range asked for; null bounds when none was given.
    QDate from;
    QDate to;
    // The days the summary covers: the range asked for, with an open bound taken from the
    // sessions themselves (the first start, the last start or end). Invalid when nothing is
    // dated.
    QDate periodFirst;
    QDate periodLast;
    QVector<ProductTypeFigures> productTypes;
    // Sentences on what the figures may get wrong, from reading the logs.
    QStringList warnings;

    // A dongle not started in this many days before the period's end is idle.
    static constexpr int DefaultIdleDays = 30;

    // sessions must already be limited to [from, to]. Sessions that name their machines (from
    // an archive) also give each product type its figures per machine.
    // owned: the licences owned per product type, where known.
    static UsageSummary compute(const QString &productCode, const UsageSessions &sessions,
                                const QDate &from, const QDate &to, int idleDays = DefaultIdleDays,
                                const QHash<QString, int> &owned = {});
};

#endif // USAGESUMMARY_H
