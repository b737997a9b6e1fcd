// Placeholder until this library lands.
namespace zr {}
