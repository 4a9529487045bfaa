// settings store: filled by the desktop layer
