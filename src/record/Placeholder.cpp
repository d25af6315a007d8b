// Placeholder so the library exists before its first source lands; delete it then.
namespace {
[[maybe_unused]] int placeholder = 0;
}
