#include "cad/drawing.hpp"

namespace cad {

EntityRef Drawing::addDimAngular(Point3, Point3, Point3, Point3) {
    throw Error("Угловые размеры ещё не готовы");
}

}  // namespace cad
