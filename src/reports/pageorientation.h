#pragma once

namespace tavrel {

// How a report's pages lie; the numbers are the ones a report file stores.
enum class PageOrientation { Portrait = 0, Landscape = 1 };

} // namespace tavrel
