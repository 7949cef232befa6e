// The auxiliary windows are added here.
