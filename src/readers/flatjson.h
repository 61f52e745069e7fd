#ifndef FLATJSON_H
#define FLATJSON_H

#include <QString>
#include <QStringRef>

// Reads the members of a plainly written flat JSON object without building a document: the
// user-set message of a PRX log names three texts, and QJsonDocument costs more than the rest of
// such a line. Only a narrow form is read, one whose meaning is beyond doubt; for any other text
// the caller has to ask QJsonDocument.
class FlatJson
{
public:
    // True when text is exactly one JSON object, with white space only between its tokens,
    // whose members (at most MostMembers, their names distinct) all have string values, every
    // name and value of printable ASCII without escapes; then values[k] is the value of the
    // member named keys[k] (a part of text), a null text when there is none. False for every other
    // text, and when a value asked for is empty (QJsonDocument is then asked, so that an empty
    // value is exactly what it gives).
    static bool stringMembers(const QStringRef &text, const QString *keys, int count,
                              QStringRef *values);

    static constexpr int MostMembers = 16;
};

#endif // FLATJSON_H
