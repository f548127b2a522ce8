/* The plug-in interface's oldest entry point is a function named `main`; C++ cannot
 * declare a `main` of this shape, so this one file is C and forwards to the real entry. */

#pragma GCC diagnostic ignored "-Wmain"

__attribute__((visibility("default"))) short TruvaneLegacyMain(void* browser, void* table, void* shutdown);

__attribute__((visibility("default"))) int main(void* browser, void* table, void* shutdown) {
  return TruvaneLegacyMain(browser, table, shutdown);
}
