#include <pdulog/CUtil.h>  // the public header's old place, for programs that include it from here
