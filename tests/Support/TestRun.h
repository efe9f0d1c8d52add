#pragma once
// What every test executable's main() does: private XDG folders, so that no test reads or
// writes the user's real preferences or history, then a QApplication on the platform CTest
// chose (offscreen unless QT_QPA_PLATFORM says otherwise) and every test case.
//
// An executable that must prepare something first (its own X server) has its own main() and
// ends it with this call; the shared main() in TestMain.cpp is then not linked in.

namespace TestSupport {

int runTests(int argc, char **argv);

} // namespace TestSupport
