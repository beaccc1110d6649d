#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Launchers and temporary files go to a folder of this test run, never to
// the user's cache.
class CacheEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir->isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir->path()));
    }
    void TearDown() override { dir.reset(); }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new CacheEnvironment);

} // namespace
