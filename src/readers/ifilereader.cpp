#include "ifilereader.h"

#include <QFileInfo>

LocationRead IFileReader::readLocation(const QString &path)
{
    LocationRead result;
    result.table = read(path);
    const bool exists = !path.isEmpty() && QFileInfo::exists(path);
    result.status = exists ? LocationRead::Status::Read : LocationRead::Status::Missing;
    return result;
}
