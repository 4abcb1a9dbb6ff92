// Build configuration of the formatter: the fast form (the default) or the compact form.
//
// FORMAT_COMPACT=1 selects the compact form, which the firmware image build sets (firmware/CMakeLists.txt):
// one general engine (FormatSink) serves every call, nothing is forced inline, and digits are produced
// one at a time from "0123456789ABCDEF" instead of from tables of digit pairs. The fast form adds a
// second engine for the common call (1-byte characters written into a buffer, NarrowSink), inlines the
// plain-text copy and the line end into the main loop, and takes digits two at a time from the pair
// tables. Both forms give the same output byte for byte; the format tests run against each.
#pragma once

#ifndef FORMAT_COMPACT
#define FORMAT_COMPACT 0
#endif

// A function on the formatter's hot path: always inlined in the fast form, the compiler's choice in the
// compact form.
#if FORMAT_COMPACT
#define FORMAT_HOT_INLINE inline
#else
#define FORMAT_HOT_INLINE __attribute__((always_inline)) inline
#endif
