# The program's pictures, drawn by scripts/make_pictures.py, compiled into torvane_ui and found
# under ":/" by their path inside resources/ (":/icon/torvane-32.png", ":/offer/banner.gif").
set(TORVANE_PICTURES
    icon/torvane-16.png
    icon/torvane-32.png
    icon/torvane-48.png
    icon/torvane-64.png
    pages/contact.png
    pages/site.png
    pages/engines.png
    pages/submit.png
    pages/offer.png
    offer/animation.gif
    offer/banner.gif)
list(TRANSFORM TORVANE_PICTURES PREPEND ${PROJECT_SOURCE_DIR}/resources/)
qt_add_resources(torvane_ui "torvane_pictures"
    PREFIX "/"
    BASE ${PROJECT_SOURCE_DIR}/resources
    FILES ${TORVANE_PICTURES})
