# Ten-minute recordings are encoded and decoded here; sanitizer builds need the time.
set(AREA_TIMEOUT 600)
