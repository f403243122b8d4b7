// The platform layer's sources live beside this file.
namespace platform {}
