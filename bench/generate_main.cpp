#include "BenchRegister.h"

#include <QCoreApplication>

#include <cstdio>

// quorvel-bench-generate COUNT FOLDER: a register of COUNT realistic records.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: quorvel-bench-generate COUNT FOLDER\n");
        return 2;
    }
    const QString error = BenchRegister::generate(arguments.at(2), arguments.at(1).toInt());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
