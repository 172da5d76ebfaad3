// Keeps the support library non-empty when every helper is Windows only.
