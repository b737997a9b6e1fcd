// Placeholder until the dialog lands.
namespace zr {}
