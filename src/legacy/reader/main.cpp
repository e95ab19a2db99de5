// Reads the tables of an old register file and writes them to standard
// output (see LegacyTables.h); run by Quorvel, never by a person.

#include "legacy/LegacyTables.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: quorvel-legacy-reader FILE\n", stderr);
        return 2;
    }
    const QByteArray bytes = Legacy::encode(Legacy::readTablesHere(arguments.at(1)));
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
        return 1;
    return 0;
}
