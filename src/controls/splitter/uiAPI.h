#pragma once
// The platform drawing services the bar uses: OLE colours and the 3-D edge of DrawEdge.
#include "ControlPaint.h"

namespace glimford {
using namespace bd::controlpaint;
} // namespace glimford
