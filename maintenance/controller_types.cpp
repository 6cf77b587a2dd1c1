#include "maintenance/controller_types.h"

#include <iterator>
#include <stdexcept>

namespace DADOV {

const ControllerType& controller_type(int type) {
    if (type < 0 || type >= int(std::size(controller_types)))
        throw std::out_of_range("controller type");
    return controller_types[type];
}

QString id_option(std::uint16_t id) {
    return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0'));
}

} // namespace DADOV
