#pragma once
namespace kv {
int runProgram(int argc, char** argv);
}
