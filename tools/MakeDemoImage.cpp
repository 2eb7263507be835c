// Writes the demo Windows system image (placeholder until the image kit lands).
#include <cstdio>
int main() { return 0; }
