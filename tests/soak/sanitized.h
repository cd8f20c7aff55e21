// Whether this build runs under AddressSanitizer. Its allocator keeps freed
// memory in quarantine, so heap and resident-memory figures say nothing about
// leaks there; the leak check it runs at exit says it instead.
#pragma once

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
