def classFactory(iface):
    from .plugin import DrainshapePlugin

    return DrainshapePlugin()
