#pragma once
// What every test executable's main() does: private XDG folders, so that no test reads or
// writes the user's real preferences or history, then a QApplication on the platform CTest
// chose (offscreen unless QT_QPA_PLATFORM says otherwise) and every test case.
//
// An executable that must prepare something first (its own X server) has its own main() and
// ends it with this call; the shared main() in TestMain.cpp is then not linked in.

#include <QSize>

namespace TestSupport {

int runTests(int argc, char **argv);
// The same on an X server of the executable's own (Xvfb with one screen of `screen`, on the xcb
// platform), for tests that grab global keys or need a screen of a given size; 1 when the server
// does not start.
int runTestsOnOwnXServer(int argc, char **argv, QSize screen);

} // namespace TestSupport
