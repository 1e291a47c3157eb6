// The runtime's start-up reads this flag before it builds the argument vector:
// -1 asks it to replace every argument holding * or ? that matches names in the
// file system by those names, before main() counts them.
extern "C" {
int _dowildcard = -1;
}
