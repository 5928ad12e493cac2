// Process entry. The service host takes over from here.
int main() { return 0; }
