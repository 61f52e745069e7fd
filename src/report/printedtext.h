#ifndef PRINTEDTEXT_H
#define PRINTEDTEXT_H

#include <QString>

// Texts from logs and the configuration as a PDF shows them: cut at a length no cell or header
// line can usefully show, and marked as cut, so that one enormous name cannot make a report of
// a few rows take thousands of pages. The CSV and JSON keep the texts whole.
class PrintedText
{
public:
    // The longest text shown, the cut mark included.
    static constexpr int kMaxLength = 120;

    // text when it is at most kMaxLength long; otherwise its start followed by "…".
    static QString cut(const QString &text);
};

#endif // PRINTEDTEXT_H
