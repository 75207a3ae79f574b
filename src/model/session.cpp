#include "model/session.h"

namespace kav {

Session session;

} // namespace kav
