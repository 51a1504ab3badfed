#include <pdulog/CHex.h>  // the public header's old place, for programs that include it from here
