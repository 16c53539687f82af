// Messages sent to windows of another thread: the owner handles them inside
// its message waits.
#ifndef VPLATFORM_SENDMESSAGE_H
#define VPLATFORM_SENDMESSAGE_H

#include "msgqueue.h"

namespace vplat {

// Runs, in order, every message sent to the queue's windows so far, and
// answers each (0 for a window that is gone). Owner thread only.
void HandleSentMessages(ThreadQueue &queue);

}  // namespace vplat

#endif
