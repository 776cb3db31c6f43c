// Placeholder until the writer of changed and created tags lands.
#include "cad/dxf_emit.hpp"

#include "cad/error.hpp"

namespace cad {

void TagOut::putDouble(int code, double value) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    put(code, std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

void TagOut::putHandle(int code, Handle h) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, h, 16);
    (void)ec;
    std::string s(buf, end);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    put(code, s);
}

void emitChangedEntity(const DrawingData&, const Entity&, TagOut&) {
    throw Error("Запись изменённых объектов ещё не готова");
}
void emitNewEntity(const DrawingData&, const Entity&, Handle, TagOut&) {
    throw Error("Запись новых объектов ещё не готова");
}
void emitNewLayer(const DrawingData&, const Layer&, TagOut&) {
    throw Error("Запись новых слоёв ещё не готова");
}
void emitNewBlockRecord(const DrawingData&, const Block&, TagOut&) {
    throw Error("Запись новых блоков ещё не готова");
}
void emitNewBlock(const DrawingData&, const Block&, TagOut&) {
    throw Error("Запись новых блоков ещё не готова");
}

}  // namespace cad
