#include "printedtext.h"

QString PrintedText::cut(const QString &text)
{
    if (text.size() <= kMaxLength)
        return text;
    int keep = kMaxLength - 1;
    // A character outside the basic plane is two code units; half of one shows as garbage.
    if (text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep) + QChar(0x2026);
}
