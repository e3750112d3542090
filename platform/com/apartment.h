// What the class table needs to know of the calling thread's apartment.
#pragma once

namespace platform::com {

bool IsComInitializedOnThisThread();

}  // namespace platform::com
