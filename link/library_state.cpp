#include "link/library_state.h"

namespace tmode {

LibraryState library;

}  // namespace tmode
