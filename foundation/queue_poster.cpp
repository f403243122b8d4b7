#include "foundation/queue_poster.h"

namespace {

thread_local QuePoster t_poster = kMainScriptPoster;

}  // namespace

QuePoster CurrentQuePoster() {
    return t_poster;
}

classQuePosterScope::classQuePosterScope(QuePoster poster) : previous_(t_poster) {
    t_poster = poster;
}

classQuePosterScope::~classQuePosterScope() {
    t_poster = previous_;
}
