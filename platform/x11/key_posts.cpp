#include "platform/x11/key_posts.h"

#include <algorithm>

namespace lumora::x11 {

void PostedKeys::record(XKey key, bool press, std::int64_t userData) {
    std::lock_guard lock(mutex_);
    if (count_ == room) {
        std::move(posts_.begin() + 1, posts_.end(), posts_.begin());
        --count_;
    }
    posts_[count_++] = {key, press, userData};
}

std::optional<std::int64_t> PostedKeys::match(XKey key, bool press) {
    std::lock_guard lock(mutex_);
    const auto end = posts_.begin() + static_cast<std::ptrdiff_t>(count_);
    auto found = std::find_if(posts_.begin(), end, [&](const Post& post) {
        return post.key == key && post.press == press;
    });
    if (found == end) return std::nullopt;
    const std::int64_t userData = found->userData;
    std::move(found + 1, end, found);
    --count_;
    return userData;
}

}  // namespace lumora::x11
