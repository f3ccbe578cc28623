// quarv: converts a Git history into a Quarv store without a display, and reads the store back.
#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
  CLI::App app{"quarv: convert a Git history into a Quarv store and read the store back"};
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
