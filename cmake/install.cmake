# installation rules follow
