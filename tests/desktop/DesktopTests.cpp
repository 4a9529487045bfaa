#include <QObject>
#include <memory>
#include <vector>

namespace gridmint::test {
std::unique_ptr<QObject> makeFrameFileTest();
std::unique_ptr<QObject> makeFrameViewTest();
std::unique_ptr<QObject> makeFrameToolTest();
std::unique_ptr<QObject> makeFrameHistoryTest();
std::unique_ptr<QObject> makeFrameWindowTest();
std::unique_ptr<QObject> makeFrameBusyTest();
} // namespace gridmint::test

std::vector<std::unique_ptr<QObject>> makeDesktopTests()
{
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(gridmint::test::makeFrameFileTest());
    tests.push_back(gridmint::test::makeFrameViewTest());
    tests.push_back(gridmint::test::makeFrameToolTest());
    tests.push_back(gridmint::test::makeFrameHistoryTest());
    tests.push_back(gridmint::test::makeFrameWindowTest());
    tests.push_back(gridmint::test::makeFrameBusyTest());
    return tests;
}
