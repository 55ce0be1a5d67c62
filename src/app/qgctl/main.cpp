// qgctl: administration and inspection of a Quillgate home folder.
#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"qgctl: administration and inspection of a Quillgate home folder"};
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
