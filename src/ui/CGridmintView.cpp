// image view
