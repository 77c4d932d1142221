// Placeholder stand-in compare tool.
int main() { return 0; }
