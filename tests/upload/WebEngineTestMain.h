#pragma once
// main() for a QtTest that runs Qt WebEngine: the shared OpenGL contexts the
// engine needs are asked for before the application exists, and the engine's
// profile data stays in the test's own folder.

#include <QApplication>
#include <QTest>

#define QUREL_WEBENGINE_TEST_MAIN(TestClass, testName)                                                  \
    int main(int argc, char *argv[])                                                                     \
    {                                                                                                    \
        const QByteArray home = QUREL_BINARY_DIR "/testhome/" testName;                                  \
        qputenv("XDG_DATA_HOME", home + "/data");                                                        \
        qputenv("XDG_CACHE_HOME", home + "/cache");                                                      \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                      \
        QApplication app(argc, argv);                                                                    \
        TestClass test;                                                                                  \
        return QTest::qExec(&test, argc, argv);                                                          \
    }
