#ifndef PRODUCTCONFIGSTRUCT_H
#define PRODUCTCONFIGSTRUCT_H

#include <QString>

// One configuration: the four path components of one log location below the
// public documents folder, as read from ProductConfig.ini.
struct ProductConfigStruct
{
    QString company;
    QString product;
    QString platformCode;
    QString logName;
};

#endif // PRODUCTCONFIGSTRUCT_H
