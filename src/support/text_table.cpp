// The support library: guarded blocks, text tables, the worker pool.
namespace zr {}
