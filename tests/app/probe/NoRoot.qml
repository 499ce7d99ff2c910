import QtQuick

// Fails to create, so the engine ends up without a root object.
Item {
    propertyThatDoesNotExist: 1
}
