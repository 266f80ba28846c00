// The main function of every test program: each test case runs with a
// KESTREL_ROOT of its own, made before the case and removed after it (kept
// when KESTREL_KEEP_TEST_ROOTS is set, for a look at what a case left).

#include "platform/EndProcess.h"
#include "platform/ProcessEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cstdlib>

namespace {

class PrivateRootListener : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override {
        QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/kestrel-test-XXXXXX";
        char* made = mkdtemp(pattern.data());
        ASSERT_NE(made, nullptr) << "could not make a test root";
        root_ = QString::fromLocal8Bit(made);
        platform::ProcessEnvironment::setValue("KESTREL_ROOT", root_.toLocal8Bit());
    }

    void OnTestEnd(const testing::TestInfo&) override {
        if (!root_.isEmpty() && qEnvironmentVariableIsEmpty("KESTREL_KEEP_TEST_ROOTS")) {
            QDir(root_).removeRecursively();
        }
        root_.clear();
    }

private:
    QString root_;
};

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Our programs run threads: death tests re-execute the program instead of forking it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testing::UnitTest::GetInstance()->listeners().Append(new PrivateRootListener);
    // Work a test left behind may still run on the pool's threads.
    platform::endProcess(RUN_ALL_TESTS());
}
