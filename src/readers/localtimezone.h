#ifndef LOCALTIMEZONE_H
#define LOCALTIMEZONE_H

// The machine's local time zone, as every local date-time of the logs is read in it.
class LocalTimeZone
{
public:
    // With TZ unset, glibc checks /etc/localtime on disk again for every local time
    // conversion, which costs more than parsing the stamp. Naming the same zone file in TZ
    // makes it load once; the zone, and so every result, stays the same. Call at the start of
    // main, before other threads exist. Does nothing where TZ is set or on Windows.
    static void pin();
};

#endif // LOCALTIMEZONE_H
