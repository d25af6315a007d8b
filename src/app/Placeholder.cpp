// Placeholder until the window lands.
namespace {
[[maybe_unused]] int placeholder = 0;
}
