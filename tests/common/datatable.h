#ifndef DATATABLE_H
#define DATATABLE_H

#include <QtTest>

/// Declares all columns of a data table in one statement: columns<int, QString>({ "n", "s" }).
template<class... T> void columns(const char *const (&names)[sizeof...(T)])
{
    int column = 0;
    (QTest::addColumn<T>(names[column++]), ...);
}

#endif // DATATABLE_H
