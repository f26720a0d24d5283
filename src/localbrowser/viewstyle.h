#pragma once

namespace tarsel {

// The four view styles of the file lists.
enum class TViewStyle { LargeIcon, SmallIcon, List, Details };

} // namespace tarsel
