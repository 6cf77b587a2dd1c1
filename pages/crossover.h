#pragma once

#include <QString>

namespace DADOV {

// The crossover read-out (label15) until the pair's two readings fall in the same 10 mV step.
inline const QString no_convergence = QStringLiteral("No Convergence");

} // namespace DADOV
