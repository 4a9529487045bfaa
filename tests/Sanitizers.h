// Whether the tests run under AddressSanitizer, whose shadow memory does not
// mix with address-space limits (RLIMIT_AS, ulimit -v).
#pragma once

namespace gridmint {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

} // namespace gridmint
