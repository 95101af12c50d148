#include "Platform/Foundation/ScopedDescriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>

namespace {

using platform::foundation::ScopedDescriptor;

bool isOpen(int descriptor) {
    return ::fcntl(descriptor, F_GETFD) != -1;
}

TEST(ScopedDescriptor, ClosesWhatItStillOwnsOnceAndOnlyThat) {
    // Each case runs with a fresh pipe's read end and says whether it is open afterwards.
    const struct {
        std::string name;
        std::function<int(int)> use;  // what the case handed back to close, or -1
        bool openAfterwards;
    } cases[] = {
        {"goes out of scope",
         [](int fd) {
             ScopedDescriptor owner(fd);
             return -1;
         },
         false},
        {"released",
         [](int fd) {
             ScopedDescriptor owner(fd);
             return owner.release();
         },
         true},
        {"reset early, then out of scope",
         [](int fd) {
             ScopedDescriptor owner(fd);
             owner.reset();
             EXPECT_EQ(owner.get(), -1);
             owner.reset();  // nothing left: no second close
             return -1;
         },
         false},
        {"moved into a second owner that lives on",
         [](int fd) {
             ScopedDescriptor first(fd);
             ScopedDescriptor second(std::move(first));
             EXPECT_EQ(first.get(), -1);
             EXPECT_TRUE(isOpen(fd)) << "the moved-from owner closed it";
             return second.release();
         },
         true},
    };
    for (const auto& [name, use, openAfterwards] : cases) {
        SCOPED_TRACE(name);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const int leftOver = use(ends[0]);
        EXPECT_EQ(isOpen(ends[0]), openAfterwards);
        if (leftOver >= 0) {
            ::close(leftOver);
        }
        ::close(ends[1]);
    }
}

}  // namespace
