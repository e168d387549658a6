// Boost.JSON compiled into the core library itself (its header-only form), so the shared
// library needs no Boost runtime and exports none of its symbols.
#include <boost/json/src.hpp>
